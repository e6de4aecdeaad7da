#include "support/scripted_centre.h"

ScriptedCentre::ScriptedCentre() {
  server_.http().Post("/", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> lock(mu_);
    bodies_.push_back(req.body);
    res.status = status_;
    res.set_content(body_, "application/json");
  });
}

void ScriptedCentre::answer(const std::string& body, int status) {
  std::lock_guard<std::mutex> lock(mu_);
  status_ = status;
  body_ = body;
}

std::vector<std::string> ScriptedCentre::bodies() {
  std::lock_guard<std::mutex> lock(mu_);
  return bodies_;
}
