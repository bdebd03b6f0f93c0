#include "glimber.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return glimber_run(argc, argv, con);
}
