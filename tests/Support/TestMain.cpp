// Shared main() of the test executables (see TestRun.h).

#include "Support/TestRun.h"

int main(int argc, char **argv)
{
    return TestSupport::runTests(argc, argv);
}
