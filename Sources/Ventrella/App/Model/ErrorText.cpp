#include "Ventrella/App/Model/ErrorText.h"

#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaShared/ErrorDescription.h"

namespace ventrella::model {

std::string localizedDescription(const std::exception_ptr& error) {
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const core::VentrellaError& ventrellaError) {
        return ventrellaError.errorDescription();
    } catch (...) {
    }
    return shared::errorDescription(error);
}

std::string errorText(const std::exception_ptr& error) {
    return core::L10n::string(localizedDescription(error));
}

}  // namespace ventrella::model
