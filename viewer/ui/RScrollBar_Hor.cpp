#include "ui/RScrollBar_Hor.h"

CRScrollBar_Hor::CRScrollBar_Hor() : CRScrollBar(true) {}
