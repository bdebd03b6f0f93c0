#include "ulvane.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return ulvane_run(argc, argv, con);
}
