#pragma once

class QCoreApplication;

namespace tallyfox::platform {

// Makes the toolkit's own dialogs and buttons (the folder browser, the buttons of the boxes) speak
// Japanese, whatever the user's locale: loads the toolkit's Japanese texts that the system installs
// with its translations and installs them on `application`, which keeps them for its lifetime. False,
// changing nothing, when the system has none.
bool installToolkitJapanese(QCoreApplication& application);

} // namespace tallyfox::platform
