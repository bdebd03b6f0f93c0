#include "trelwin.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return trelwin_run(argc, argv, con);
}
