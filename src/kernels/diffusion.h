// Mechanics shared by the line kernels, one header a topic: the call and its
// checks, matrix addressing, the error line's patterns and walks, the two-bit
// single-ink decision, input sampling and the packers of dot planes.
#pragma once

#include "kernels/error_patterns.h"
#include "kernels/error_walks.h"
#include "kernels/levels.h"
#include "kernels/line_call.h"
#include "kernels/matrix.h"
#include "kernels/packers.h"
#include "kernels/sampling.h"
