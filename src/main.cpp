#include "runner/runner_main.hpp"

int main() {
    return lk::run_runner();
}
