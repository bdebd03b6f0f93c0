#include "bexolt.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return bexolt::run(argc, argv, con);
}
