#include "driver/startup.h"

int main() {
    run_benchmark();
}
