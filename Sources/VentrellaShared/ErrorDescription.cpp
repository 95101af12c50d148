#include "VentrellaShared/ErrorDescription.h"

namespace ventrella::shared {

std::string errorDescription(const std::exception_ptr& error) {
    if (!error) {
        return std::string(unknownErrorDescription);
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return std::string(unknownErrorDescription);
    }
}

}  // namespace ventrella::shared
