#include "driver/state.h"

BenchmarkState state;
