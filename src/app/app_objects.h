#pragma once

// The two process-wide objects the window creates right after LoadSettings:
// the pack data store and the parameter catalogue. They live until
// FreeGlobals, which releases them (store first, then catalogue) before the
// text service.

class TDevInfo;
class TParameterInfo;

// Creates both objects, prepares the store's pack slots and registers their
// release with FreeGlobals. Objects left from an earlier start are freed
// first.
void CreateGlobalObjects();

// Null before CreateGlobalObjects and after FreeGlobals.
TDevInfo* GlobalDevInfo();
TParameterInfo* GlobalParameterInfo();
