#include "Platform/ServiceManagement/ServiceErrorJSON.h"

namespace platform::servicemanagement {

nlohmann::ordered_json toJSON(const ServiceError& error) {
    nlohmann::ordered_json json{
        {"domain", error.domain()}, {"code", error.code()}, {"description", error.what()}};
    if (error.underlying() != nullptr) {
        json["underlying"] = toJSON(*error.underlying());
    }
    return json;
}

std::shared_ptr<const ServiceError> serviceErrorFromJSON(const nlohmann::json& json,
                                                         int maximumDepth) {
    if (maximumDepth < 1 || !json.is_object()) {
        return nullptr;
    }
    const auto domain = json.find("domain");
    const auto code = json.find("code");
    const auto description = json.find("description");
    if (domain == json.end() || !domain->is_string() || code == json.end() ||
        !code->is_number_integer() || description == json.end() || !description->is_string()) {
        return nullptr;
    }
    const auto underlying = json.find("underlying");
    return std::make_shared<const ServiceError>(
        domain->get<std::string>(), code->get<long>(), description->get<std::string>(),
        underlying == json.end() ? nullptr : serviceErrorFromJSON(*underlying, maximumDepth - 1));
}

}  // namespace platform::servicemanagement
