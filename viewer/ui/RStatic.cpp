#include "ui/RStatic.h"

CRStatic::CRStatic() : CDPIWnd(this) {}

CRStatic::~CRStatic() = default;
