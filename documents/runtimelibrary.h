#pragma once

#include <QLibrary>
#include <QString>

// Resolves `name` in the loaded `library` into `function`. A failure keeps
// its reason in `error`, unless an earlier one is there already. True when
// the function was found.
template <typename Function>
bool resolveFunction(QLibrary& library, const char* name, Function& function, QString& error)
{
    function = reinterpret_cast<Function>(library.resolve(name));
    if (!function && error.isEmpty())
        error = library.errorString();
    return function != nullptr;
}
