#include "Platform/VirtualMac/AdministratorAuthorization.h"

#include "Platform/VirtualMac/VirtualMachine.h"

namespace virtualmac {

std::string_view toString(AdministratorAuthorization::Answer answer) {
    switch (answer) {
        case AdministratorAuthorization::Answer::allow:
            return "allow";
        case AdministratorAuthorization::Answer::deny:
            return "deny";
        case AdministratorAuthorization::Answer::cancel:
            break;
    }
    return "cancel";
}

std::optional<AdministratorAuthorization::Answer> authorizationAnswerNamed(std::string_view name) {
    for (const auto answer :
         {AdministratorAuthorization::Answer::allow, AdministratorAuthorization::Answer::deny,
          AdministratorAuthorization::Answer::cancel}) {
        if (toString(answer) == name) {
            return answer;
        }
    }
    return std::nullopt;
}

std::optional<nlohmann::ordered_json> AdministratorAuthorization::handle(
    const std::string& command, const nlohmann::json& request) {
    if (command != "authorization") {
        return std::nullopt;
    }
    const auto found = request.find("answer");
    const auto answer = found != request.end() && found->is_string()
                            ? authorizationAnswerNamed(found->get<std::string>())
                            : std::nullopt;
    if (!answer) {
        throw MachineRequestError("\"answer\" must be allow, deny or cancel");
    }
    answer_ = *answer;
    return nlohmann::ordered_json{{"ok", true}};
}

}  // namespace virtualmac
