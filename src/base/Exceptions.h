#pragma once
// One exception class per unit, all derived from EMovara. Loaders return "no object"
// (nullptr / false) instead of throwing.
#include <stdexcept>
#include <string>

namespace movara {

class EMovara : public std::runtime_error {
 public:
  explicit EMovara(const std::string& message) : std::runtime_error(message) {}
};

#define MOVARA_EXCEPTION(Name)                                               \
  class Name : public ::movara::EMovara {                                    \
   public:                                                                   \
    explicit Name(const std::string& message) : ::movara::EMovara(message) {} \
  }

MOVARA_EXCEPTION(EConvertError);

}  // namespace movara
