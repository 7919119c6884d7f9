#pragma once

#include <memory>

namespace Orvex {

// Makes objects of one kind on demand: image loaders, pooled worker threads.
template <class T>
class IFactory {
 public:
  IFactory(const IFactory&) = delete;
  IFactory& operator=(const IFactory&) = delete;
  virtual ~IFactory() = default;

  virtual std::shared_ptr<T> CreateInstance() = 0;

 protected:
  IFactory() = default;
};

}  // namespace Orvex
