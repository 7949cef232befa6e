#include "Bulkrun.h"
#include "GuardedApplication.h"

#include <exception>

int main(int argc, char *argv[])
{
    // What happens outside the event loop has this guard of its own.
    try {
        return RunBulkrun(argc, argv);
    } catch (const std::exception &error) {
        return GuardedApplication::Unhandled(error.what(), false);
    } catch (...) {
        return GuardedApplication::Unhandled("an unknown failure", false);
    }
}
