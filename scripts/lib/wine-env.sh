# Shared by every script that starts Wine (sourced, bash).
# The DLL overrides unless the caller sets WINEDLLOVERRIDES: no Mono or Gecko installer
# prompts, as the programs need neither; no menu builder, which opens a new shortcut's
# target for its icon behind the program's back, so that a later package replacing that
# file meets a sharing violation.
# shellcheck disable=SC2034
wine_dll_overrides="mscoree,mshtml=;winemenubuilder.exe=d"
