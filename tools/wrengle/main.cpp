#include "wrengle.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return wrengle_run(argc, argv, con);
}
