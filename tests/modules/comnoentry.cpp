// A module that is no COM server: it lacks DllGetClassObject.
#include "platform/com/Com.h"

STDAPI DllCanUnloadNow()
{
    return S_OK;
}
