#include "core/reopen.h"

#include "core/programstate.h"
#include "data/errortrap.h"

#include <algorithm>
#include <vector>

namespace tavrel {

namespace {

// The users in the order they came; a user reopened later may depend on one before it.
std::vector<DatabaseUser*>& users() {
    static std::vector<DatabaseUser*> registered;
    return registered;
}

bool stillRegistered(const DatabaseUser* user) {
    return std::find(users().begin(), users().end(), user) != users().end();
}

} // namespace

DatabaseUser::DatabaseUser() {
    users().push_back(this);
}

DatabaseUser::~DatabaseUser() {
    std::erase(users(), this);
}

DatabaseUser* userEditingRow() {
    for (DatabaseUser* user : users())
        if (user->isEditingRow())
            return user;
    return nullptr;
}

bool reopenEverything(const std::function<Database()>& connect) {
    const std::vector<DatabaseUser*> before = users();
    {
        // What is shown now is read from recordsets that may be damaged: a failure only
        // means there is no position to go back to.
        ErrorTrap quiet([](const DbError&) {});
        for (DatabaseUser* user : before)
            user->rememberPosition();
    }
    state().dbMain.close();
    state().dbMain = connect();
    if (!state().dbMain.isOpen())
        return false;
    // A user may close another window while it reopens; only those still there reopen.
    for (DatabaseUser* user : before)
        if (stillRegistered(user))
            user->reopenRecords();
    return true;
}

} // namespace tavrel
