// The wizard's page loop: runs the page at the page index until a page
// ends the wizard (page index -1).
#pragma once

void RunPageLoop();
