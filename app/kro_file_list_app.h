// CKroFileListApp: the program's entry. It lets one copy run per logon
// session, prepares the common controls and runs the main dialog modally;
// the program's whole life is that one modal run.
#pragma once

namespace kro {

class CKroFileListApp {
public:
    // Start-up and the modal run. False: end the process at once. True: a
    // second copy has handed over to the running one and ends as well.
    bool InitInstance();
};

}  // namespace kro
