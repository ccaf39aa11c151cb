// Which vector instruction set the kernels' fast paths may use. Every kernel
// keeps its scalar path as the reference; a vector path is compiled only where
// the target has SSE2 and the build is not the portable one (INKDOT_PORTABLE),
// which compiles the scalar paths alone so that the golden outputs hold them
// to the same bits as the vector ones.
#pragma once

#if defined(__SSE2__) && !defined(INKDOT_PORTABLE)
#include <emmintrin.h>
#define INKDOT_KERNELS_SSE2 1
#endif
