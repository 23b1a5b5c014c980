#include "app/startup.h"
#include "platform/dialogs.h"

int main(int argc, char** argv)
{
    tallyfox::platform::QtDialogs dialogs;
    return tallyfox::app::runTallyfox(argc, argv, dialogs);
}
