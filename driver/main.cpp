#include "driver/benchmark.h"

int main() {
    run_benchmark();
}
