#include "core/transfer_crew.h"

#include <cerrno>

namespace tallyfox {

// One file to the save folder unless something stands there already. A copy that may not replace
// looks at its target itself before it copies anything; a move is held back by a look first.
Transferred transferOne(FileOperations& operations, const std::string& source, const std::string& target, bool move)
{
    Transferred done;
    if (move && operations.fileExists(target)) {
        done.taken = true;
        return done;
    }
    done.error = move ? operations.moveFile(source, target, false) : operations.copyFile(source, target, false);
    if (done.error != 0 && move) {
        done.aside = operations.sourceSetAsideAs();
    }
    done.taken = done.error == EEXIST && !move;
    return done;
}

} // namespace tallyfox
