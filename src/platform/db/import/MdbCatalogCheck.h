#pragma once
// mdbtools reads every object's property blob when it reads the catalogue, following the blob's page
// chain and its records without checking that either moves forward: a damaged file makes it loop and
// allocate until memory runs out. These checks walk the same structures with bounds first.
#include <QString>

#include <cstddef>
#include <cstdint>

namespace bd::db::import {

// A property blob ("KKD"/"MR2" records) whose records all move forward and stay inside it. Blobs of
// another kind are sound: mdbtools passes them over.
bool propertyBlobSound(const uint8_t* blob, size_t size);

// Every object's property blob in the catalogue table can be read to its end and is sound. False
// also when a blob's page chain comes back to a page it has read.
bool catalogueSound(const QString& path);

} // namespace bd::db::import
