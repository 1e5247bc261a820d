// Every user's own settings, for --all-users.  A fleet tool runs as SYSTEM, whose
// HKEY_CURRENT_USER is SYSTEM's own hive; the people's settings are their hives
// under HKEY_USERS: loaded there while they are logged on, otherwise only in their
// profile's NTUSER.DAT, which is loaded for the run under a name of our own and
// unloaded again afterwards.
#pragma once

#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"
#include "repairs/RepairCatalogue.h"

namespace korvane::cli {

struct UserHive {
  std::wstring sid;
  std::wstring account;      // "DOMAIN\name"; empty when the SID does not resolve
  std::wstring profilePath;  // from ProfileList; empty when the profile is not listed
  std::wstring keyName;      // the hive's key below HKEY_USERS; empty when not reachable
  std::wstring hiveFile;     // the NTUSER.DAT loaded for this run, else empty
  bool loadedHere = false;   // loaded for this run (and to be unloaded after it)
  bool unloaded = false;
  std::wstring error;        // why the hive could not be reached
  std::wstring unloadError;  // why it could not be unloaded
  bool reachable() const { return error.empty() && !keyName.empty(); }
};

// "S-1-5-21-...-1001 (CONTOSO\alice, C:\Users\alice)": what the output names a user by.
std::wstring UserLabel(const UserHive& user);

// A user's SID as a key below HKEY_USERS or ProfileList names it: "S-1-" and digits,
// not a service account (S-1-5-18, -19, -20) and not a "_Classes" hive.
bool IsPersonSid(const std::wstring& name);

// A restriction that lives (also) under HKEY_CURRENT_USER.
bool IsPerUser(const Repair& repair);

// The key an unloaded profile's hive is loaded as, below HKEY_USERS.
std::wstring TemporaryHiveName(const std::wstring& sid);

// Finds the users and loads the hives that are not loaded; the destructor unloads
// what it loaded, also when the run ends with an error.
class UserHives {
 public:
  explicit UserHives(Platform& system);
  ~UserHives();
  UserHives(const UserHives&) = delete;
  UserHives& operator=(const UserHives&) = delete;

  const std::vector<UserHive>& users() const { return users_; }
  // Unloads every hive loaded for this run; a failure is kept in the user's
  // unloadError.  True when all of them were unloaded.
  bool unloadAll();

 private:
  Platform& system_;
  std::vector<UserHive> users_;
};

// A layer that gives one user's hive as HKEY_CURRENT_USER: every call on the
// HKEY_CURRENT_USER root goes to HKEY_USERS\<keyName> instead, so the repairs, the
// preview and the journal see and record the user's real keys.
class UserHivePlatform : public ForwardingPlatform {
 public:
  UserHivePlatform(Platform& below, std::wstring keyName)
      : ForwardingPlatform(below), keyName_(std::move(keyName)) {}

  long regCreateKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                    Handle* key) override;
  long regOpenKey(Handle parent, const std::wstring& subKey, std::uint32_t access,
                  Handle* key) override;
  long regCloseKey(Handle key) override;
  long regQueryValue(Handle key, const std::wstring& name, RegData* data) override;
  long regSetValue(Handle key, const std::wstring& name, std::uint32_t type,
                   const std::vector<std::uint8_t>& bytes) override;
  long regDeleteValue(Handle key, const std::wstring& name) override;
  long regDeleteTree(Handle key, const std::wstring& subKey) override;
  long regEnumKey(Handle key, std::uint32_t index, std::wstring* name) override;
  long regEnumValue(Handle key, std::uint32_t index, std::wstring* name) override;

 private:
  std::wstring below(const std::wstring& subKey) const;
  // Runs `call` on an opened handle of the hive's own key.
  template <typename Call>
  long onHiveKey(std::uint32_t access, Call call);

  std::wstring keyName_;
};

}  // namespace korvane::cli
