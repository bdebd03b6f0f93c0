#include "sprandle.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return sprandle_run(argc, argv, con);
}
