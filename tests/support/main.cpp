// The main() of a test program that needs nothing prepared before its tests.

#include "support/testmain.h"

int main(int argc, char **argv)
{
    return testsupport::RunTests(argc, argv);
}
