// The inkdot command run as a user runs it: small images through every
// path of the driver sequence, compared with the checksums of their planes,
// and the errors a user can act on, each with its message and exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "chart.h"
#include "image.h"
#include "respack/respack.h"

namespace {

namespace fs = std::filesystem;
using inkdot::cli::ColourSpace;
using inkdot::cli::Image;

struct Run {
    int status = -1;
    std::string out, err;
};

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root = fs::temp_directory_path() / ("inkdot_cli_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        respack::writeDefaultPack(root / "pack");
    }
    static void TearDownTestSuite() { fs::remove_all(root); }

    // Runs the command with the arguments (a shell line), standard error and
    // output captured.
    static Run run(const std::string& args) {
        const fs::path out = root / "stdout.txt", err = root / "stderr.txt";
        const std::string line = std::string(INKDOT_CLI_PATH) + " " + args + " >" + out.string() + " 2>" + err.string();
        Run r;
        const int raw = std::system(line.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }

    static std::string slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    static inline fs::path root;
};

TEST_F(Cli, HelpNamesTheCommands) {
    const Run r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("print"), std::string::npos);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
}

} // namespace
