#include "yorvath.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return yorvath_run(argc, argv, con);
}
