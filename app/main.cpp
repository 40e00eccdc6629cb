#include "app/app_run.h"

int main(int argc, char** argv) {
    return gf_skyloomMain(argc, argv);
}
