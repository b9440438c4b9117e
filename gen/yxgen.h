// yxgen: the general header of the foundation library. It includes the
// library's units, so callers need only this one include:
//   YxHeap.h       the process heap, the root class TYxBsMem, heap blocks
//   YxException.h  the exception classes and their report texts
//   YxText.h       text and number functions
//   YxArray.h      TArray
//   YxPtrArray.h   TPtrArray and its cursor TPtrArrayIter
// BStr has its own header, BStr.h.
#pragma once

#include "YxArray.h"
#include "YxException.h"
#include "YxHeap.h"
#include "YxPtrArray.h"
#include "YxText.h"
