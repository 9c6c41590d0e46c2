#include "posix/posix_login.h"

#include <pwd.h>
#include <unistd.h>

namespace tolvane {

std::string login_user() {
    const passwd* pw = ::getpwuid(::getuid());
    if (!pw) return {};
    std::string gecos = pw->pw_gecos ? pw->pw_gecos : "";
    gecos = gecos.substr(0, gecos.find(','));
    if (!gecos.empty()) return gecos;
    return pw->pw_name ? pw->pw_name : "";
}

}  // namespace tolvane
