#include "quorvel.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return quorvel::quorvel_run(argc, argv, con);
}
