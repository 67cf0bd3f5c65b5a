// What follows the files: run once per installation by the progress page
// when the install driver is done, successful or not.
#pragma once

void RunPostInstallActions();
