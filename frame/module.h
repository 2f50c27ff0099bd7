// The module object: its instance handle, the process-wide lock count, the
// object map and the cached class objects.
#pragma once

#include "frame/port.h"
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

namespace revdir {

// Creates an instance of one class, aggregated when outer is not null.
typedef HRESULT (*CreateInstanceFn)(IUnknown *outer, REFIID riid, void **ppv);

struct ObjectMapEntry {
  const CLSID *clsid;
  CreateInstanceFn create;
  UINT registryScript;  // resource id of the class's registry script
};

// The six classes, in the order of registration and of class-object lookup.
const ObjectMapEntry *ObjectMap(size_t *count);

HINSTANCE ModuleInstance();
// Every live object, enumerator and LockServer(TRUE) holds one lock.
void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

// The module-wide lock, used for the one-time loading of type information.
void EnterModuleLock();
void LeaveModuleLock();

void ModuleInitialize(HINSTANCE instance);
void ModuleTerminate();

// The class object of a class in the object map; created on first request,
// cached until the module terminates.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void **ppv);

}  // namespace revdir
