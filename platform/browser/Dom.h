// The COM objects through which a container reaches a page: the document, its window (with
// IDispatchEx over the script's globals), the forms collection, a form and a form field. They
// hold the page weakly (forms and fields strongly, since they are plain data): once the page
// is gone, calls that need it fail with E_FAIL.
#pragma once

#include <memory>

#include "Page.h"

namespace platform::browser {

// A new document object for the page, with one reference (the caller releases it).
IHTMLDocument2* NewDocument(const std::shared_ptr<Page>& page);

}  // namespace platform::browser
