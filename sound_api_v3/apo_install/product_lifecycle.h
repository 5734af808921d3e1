// The product's install and removal passes, behind the exports init and unInit.
//
// On the paths where nothing fails they do exactly what init and unInit are documented to do.
// Where something fails or an earlier pass died half-way, they take the side of the user's data:
// - everything that can make a pass raise (the product values it reads) is read before the
//   first change, so a raise leaves endpoints, store, registration and values as they were;
// - an endpoint whose keys cannot be read is not loaded (-2 for it), logged and skipped;
// - after either pass no endpoint names one of the kit's effect classes while the effect
//   library is unregistered.
#pragma once

namespace zol::apo_install {

// init: 0.
int installProduct();
// unInit: 1 done, -3 the effect library could not be unregistered (nothing removed).
int removeProduct();

// Whether some endpoint of the current or previous-OS tree names one of the kit's effect
// classes in an effect slot (unreadable slots name nothing).
bool anyEndpointNamesEffectClass();
// Whether the effect library's classes are registered (the stream effect's class key exists).
bool effectClassesRegistered();

}  // namespace zol::apo_install
