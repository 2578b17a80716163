#pragma once
// Flags that an operation sets for its own length and puts back, so that an exception
// leaving the operation cannot leave them set.

namespace movara {

// Gives a variable a value for the length of a scope; its old value comes back when
// the scope ends (also by an exception), or earlier by Restore(). A null variable is
// left alone.
template <typename T>
class TScopedValue {
 public:
  TScopedValue(T& var, const T& value) : TScopedValue(&var, value) {}
  TScopedValue(T* var, const T& value) : var_(var) {
    if (!var_) return;
    saved_ = *var_;
    *var_ = value;
  }
  ~TScopedValue() { Restore(); }
  TScopedValue(const TScopedValue&) = delete;
  TScopedValue& operator=(const TScopedValue&) = delete;

  void Restore() {
    if (!var_) return;
    *var_ = saved_;
    var_ = nullptr;
  }

 private:
  T* var_;
  T saved_{};
};

}  // namespace movara
