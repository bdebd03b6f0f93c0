#include "halvik.h"

int main(int argc, char** argv) {
    vgm::Console con;
    return halvik_run(argc, argv, con);
}
