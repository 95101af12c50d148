#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace virtualmac {

// How the simulated user answers the administrator-password prompt that running a script with
// administrator privileges raises: allow (the default), deny, or cancel the dialog.
class AdministratorAuthorization {
  public:
    enum class Answer { allow, deny, cancel };

    Answer answer() const { return answer_; }
    void setAnswer(Answer answer) { answer_ = answer; }

    // "authorization" {"answer": "allow" | "deny" | "cancel"} sets the answer. Nothing for other
    // commands.
    std::optional<nlohmann::ordered_json> handle(const std::string& command,
                                                 const nlohmann::json& request);

  private:
    Answer answer_ = Answer::allow;
};

std::string_view toString(AdministratorAuthorization::Answer answer);
std::optional<AdministratorAuthorization::Answer> authorizationAnswerNamed(std::string_view name);

}  // namespace virtualmac
