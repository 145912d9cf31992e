#pragma once
// What an encrypted document's security handler allows. A document without encryption allows everything.
#include <string_view>

#include "external/qp.h"

namespace sealrun::signing {

// The eight permissions, in the order of their bits in the document's /P value.
enum class Permission { Print, Modify, Copy, Annotate, FillForms, Accessibility, Assemble, HighQualityPrint };

// True when the document grants the permission. Revision 2 handlers know only the first four: the later
// ones are asked as their older kin (fill forms as annotate, accessibility as copy, assemble as modify,
// high-quality print as print). An engine error refuses: a document whose permissions cannot be read is
// not changed.
bool CheckPermission(qp_document document, Permission permission);

// "fill forms", "modify", ...: for traces.
std::string_view PermissionName(Permission permission);

}  // namespace sealrun::signing
