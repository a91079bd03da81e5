// What every table's test checks alike: how many of its functions are set, and that a
// missing library or function fails the load cleanly and says which.
#pragma once

#include "dynload/DynamicLibraries.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

// With a table's list: 0 LIST(GC_DYNLOAD_COUNT_SET) counts the pointers of `functions`
// that are set, 0 LIST(GC_DYNLOAD_COUNT_ALL) all of them.
#define GC_DYNLOAD_COUNT_SET(part, name) +int(functions.name != nullptr)
#define GC_DYNLOAD_COUNT_ALL(part, name) +1

// One library's name replaced by Soname; the error must name Named.
struct TMissingCase {
    size_t Part;
    std::string Soname;
    std::string Named;
};

// Each case fails to load, names what is missing and leaves every pointer null.
template <class TFunctions>
void ExpectEachMissingFailsCleanly(const std::vector<std::string>& sonames, const std::vector<TMissingCase>& cases,
                                   int (*resolved)(const TFunctions&)) {
    for (const TMissingCase& c : cases) {
        SCOPED_TRACE(c.Soname);
        std::vector<std::string> names = sonames;
        names[c.Part] = c.Soname;
        TDynamicTable<TFunctions> library;
        std::string error;
        EXPECT_FALSE(library.Load(names, error));
        EXPECT_NE(error.find(c.Named), std::string::npos) << error;
        EXPECT_EQ(resolved(library.Functions()), 0);
    }
}
