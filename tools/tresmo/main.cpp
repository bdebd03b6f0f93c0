#include "tresmo.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return tresmo::run(argc, argv, con);
}
