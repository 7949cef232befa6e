#include "Bulkrun.h"

int main(int argc, char *argv[])
{
    return RunBulkrun(argc, argv);
}
