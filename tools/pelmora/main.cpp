#include "pelmora.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return pelmora::run(argc, argv, con);
}
