// Parsing a command line the way both commands (`inkdot`, `respack`) do:
// help and version go to standard output with status 0, any other parse
// error is reported and becomes the usage status.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>

#include "failure.h"

namespace inkdot::cli {

// Nothing when the command line was parsed and the command should run;
// else the status to exit with.
inline std::optional<int> parseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return int(kExitUsage);
    }
    return std::nullopt;
}

}  // namespace inkdot::cli
