#pragma once
// Where the update server lives.
#include <string>

// "http://" + the build's server host + ":45004/". Every request URL is this text followed
// directly by a relative path. The window never changes it; headless tools may point it
// elsewhere before they start any task.
const std::string& serverBaseUrl();
void setServerBaseUrl(std::string url);
