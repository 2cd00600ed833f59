#include "app/quillon.h"

int main(int argc, char** argv) {
    return App().main(argc, argv);
}
