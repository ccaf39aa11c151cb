// Code generation of the diffusing kernels, included first by each of their
// sources. GCC's straight-line vectoriser pairs neighbouring error-entry
// additions into vector lanes, and its code hoisting loads the entries that
// several patterns share ahead of the pattern choice, where they outnumber
// the registers; both cost more instructions than the additions themselves.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("no-tree-slp-vectorize", "no-code-hoisting")
#endif
