// A service control manager in memory: one service, its state, and scripted errors.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/service_manager.h"

namespace corvane::test {

struct FakeServiceSystem {
  bool installed = false;
  ServiceRunState state = ServiceRunState::kStopped;
  ServiceDefinition definition;
  std::string description;
  bool disabled = false;
  std::error_code connect_error, open_error, query_error, stop_error, start_error, delete_error,
      create_error;
  int creates = 0, reconfigures = 0, stops = 0, connects_with_full_access = 0;
  std::vector<std::string>* log = nullptr;
};

class FakeService final : public ServiceHandle {
 public:
  explicit FakeService(FakeServiceSystem& system) : s_(system) {}
  std::error_code QueryState(ServiceRunState& state) override {
    if (s_.query_error) return s_.query_error;
    state = s_.state;
    return {};
  }
  std::error_code SendStop() override {
    ++s_.stops;
    if (s_.stop_error) return s_.stop_error;
    if (s_.state == ServiceRunState::kStopped) return ServiceManagerError::kNotActive;
    s_.state = ServiceRunState::kStopPending;
    return {};
  }
  std::error_code Start() override {
    if (s_.start_error) return s_.start_error;
    if (s_.disabled) return ServiceManagerError::kDisabled;
    if (s_.state == ServiceRunState::kRunning) return ServiceManagerError::kAlreadyRunning;
    s_.state = ServiceRunState::kRunning;
    return {};
  }
  std::error_code Delete() override {
    if (s_.delete_error) return s_.delete_error;
    s_.installed = false;
    return {};
  }
  std::error_code Reconfigure(const ServiceDefinition& definition) override {
    ++s_.reconfigures;
    if (s_.log) s_.log->push_back("reconfigure");
    const std::string display_name = s_.definition.display_name;
    s_.definition = definition;
    s_.definition.display_name = display_name;
    return {};
  }
  std::error_code SetDescription(std::string_view description) override {
    s_.description = description;
    return {};
  }

 private:
  FakeServiceSystem& s_;
};

class FakeConnection final : public ServiceManagerHandle {
 public:
  explicit FakeConnection(FakeServiceSystem& system) : s_(system) {}
  std::error_code OpenService(std::string_view name, std::unique_ptr<ServiceHandle>& out) override {
    if (name != kServiceName) return ServiceManagerError::kDoesNotExist;
    if (s_.open_error) return s_.open_error;
    if (!s_.installed) return ServiceManagerError::kDoesNotExist;
    out = std::make_unique<FakeService>(s_);
    return {};
  }
  std::error_code CreateService(const ServiceDefinition& definition,
                                std::unique_ptr<ServiceHandle>& out) override {
    ++s_.creates;
    if (s_.log) s_.log->push_back("create");
    if (s_.create_error) return s_.create_error;
    s_.installed = true;
    s_.definition = definition;
    out = std::make_unique<FakeService>(s_);
    return {};
  }

 private:
  FakeServiceSystem& s_;
};

class FakeManager final : public ServiceManager {
 public:
  explicit FakeManager(FakeServiceSystem& system) : s_(system) {}
  std::error_code Connect(bool full_access, std::unique_ptr<ServiceManagerHandle>& out) override {
    s_.connects_with_full_access += full_access;
    if (s_.connect_error) return s_.connect_error;
    out = std::make_unique<FakeConnection>(s_);
    return {};
  }

 private:
  FakeServiceSystem& s_;
};

}  // namespace corvane::test
