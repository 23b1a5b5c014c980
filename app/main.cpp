#include "app/startup.h"
#include "platform/dialogs.h"
#include "platform/posix_io.h"

int main(int argc, char** argv)
{
    tallyfox::platform::returnLargeBlocksAtOnce();
    tallyfox::platform::QtDialogs dialogs;
    return tallyfox::app::runTallyfox(argc, argv, dialogs);
}
