#include "kadrel.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return kadrel_run(argc, argv, con);
}
