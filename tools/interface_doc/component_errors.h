// The component's own answer for an error code: its constant name and its
// English text, asked of the built module as a client asks it, so that the
// reference shows the texts that ship.
#pragma once

#include "frame/port.h"

#include <string>

#include "QuillonRevisionDirectory.h"
#include "frame/handles.h"
#include "typelib_markdown.h"

namespace revdir::interface_doc {

class ComponentErrors {
 public:
  ComponentErrors() = default;
  ~ComponentErrors();
  ComponentErrors(const ComponentErrors &) = delete;
  ComponentErrors &operator=(const ComponentErrors &) = delete;

  // Loads the module and makes a directory through its class object, not
  // through the registry: nothing needs to be registered.
  bool Open(const std::string &modulePath, std::string *error);
  // GetErrorConstantAndDescription in English.
  bool Describe(HRESULT code, std::string *constant, std::string *text, std::string *error);

 private:
  HMODULE m_module = nullptr;
  ComPtr<IRevisionDirectory> m_directory;
};

}  // namespace revdir::interface_doc
