// A stand-in for the application's main() until the shell exists: the updater's command lines
// first, with the application's own configuration; status 3 where the application would start.

#include "Kivaro/update/UpdateShellHooks.h"

#include "KivaroCore/LaunchArguments.h"

int main(int argc, char **argv)
{
    Kivaro::PrototypeVerification::recordProcessArguments(argc, argv);
    if (const auto status = Kivaro::runUpdaterCommandLine(Kivaro::PrototypeVerification::processArguments()))
        return *status;
    return 3;
}
