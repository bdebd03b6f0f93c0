#include "fessick.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return fessick::run(argc, argv, con);
}
