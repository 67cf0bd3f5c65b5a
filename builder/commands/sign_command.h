// `kiln sign`: Authenticode signing of a setup file through osslsigncode,
// also the last step of `kiln build` when it is given a certificate.
#pragma once
#include <CLI/CLI.hpp>
#include <string>

struct SigningOptions {
    std::string certificate;  // PEM file; signing is asked for when it is set
    std::string key;          // PEM private key
    std::string timestamp;    // URL of a timestamp server, or ""
};

// Adds --cert, --key and --timestamp to a command.
void AddSigningOptions(CLI::App& cmd, SigningOptions& options);

// Signs the file in place: osslsigncode writes a signed copy, which replaces
// the file only when it still reads as a complete setup file. Volume files
// are not signed. Throws BuildError with what went wrong.
void SignSetupFile(const std::string& path, const SigningOptions& options);

// The subject of the certificate that signed the file, as osslsigncode
// reads it ("/CN=.../O=..."); "" when osslsigncode is missing or names none.
std::string SignerSubject(const std::string& path);

void AddSignCommand(CLI::App& app, int& status);
