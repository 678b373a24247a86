// CGdiPlusBitmap and CGdiPlusBitmapResource: a GDI+ picture owned by one object, and one loaded
// from a PNG resource of a module.
#pragma once

#include "platform/gdiplus.h"
#include "platform/kernel.h"

// Owns one GDI+ bitmap, or none.
class CGdiPlusBitmap {
public:
    CGdiPlusBitmap();
    virtual ~CGdiPlusBitmap();
    CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
    CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;

    // Deletes the bitmap.
    void Empty();

    // The owned bitmap, null when there is none.
    Gdiplus::Bitmap* m_pBitmap;
};

// A picture decoded from a resource. The bitmap is made from a stream over a movable global
// block holding a copy of the resource's bytes, and the block is kept (locked) for as long as
// the bitmap lives. Lives for one drawing call, on the calling thread.
class CGdiPlusBitmapResource : public CGdiPlusBitmap {
public:
    CGdiPlusBitmapResource();
    ~CGdiPlusBitmapResource() override;

    // Empties the object, then finds the resource `name` of `type` in `module` (null: the
    // program), copies its bytes into a new block and decodes them. true when the bitmap was
    // made and reports Ok; false when the resource is missing or empty, memory runs out or the
    // bytes are not a picture GDI+ can decode, and the object is empty then.
    bool Load(LPCWSTR name, LPCWSTR type, HMODULE module);
    // Deletes the bitmap, then unlocks and frees the block.
    void Empty();

protected:
    // The block the bitmap was decoded from; null when empty.
    HGLOBAL m_hBuffer;
};
