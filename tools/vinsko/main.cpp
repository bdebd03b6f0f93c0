#include "vinsko.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return vinsko::run(argc, argv, con);
}
