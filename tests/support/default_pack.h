// A test suite over the default resource pack: written to a temporary
// directory once for the suite, its resources read by number and kept for the
// suite's life (the engines read them during the calls only, but tag items
// must outlive the objects that were given them).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "respack/respack.h"

namespace inkdot::test {

class DefaultPackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::filesystem::temp_directory_path() /
              ("default_pack_" + std::to_string(reinterpret_cast<uintptr_t>(&dir)));
        std::filesystem::remove_all(dir);
        respack::writeDefaultPack(dir);
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(dir);
        cache.clear();
    }
    static const respack::Bytes& resource(int number) {
        auto it = cache.find(number);
        if (it == cache.end()) it = cache.emplace(number, respack::readResource(dir, number)).first;
        return it->second;
    }

    static inline std::filesystem::path dir;
    static inline std::map<int, respack::Bytes> cache;
};

}  // namespace inkdot::test
