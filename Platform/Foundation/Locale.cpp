#include "Platform/Foundation/Locale.h"

#include "Platform/Foundation/UserLanguages.h"

namespace platform::foundation {

Locale Locale::current(const EnvironmentLookup& environment) {
    return Locale(UserLanguages::localeTag(environment).value_or("en"));
}

}  // namespace platform::foundation
