# The application bundle, laid out in the build tree as on a Mac:
#   Ventrella.app/Contents/Info.plist
#   Ventrella.app/Contents/Resources/<language>.lproj/Localizable.strings
#   Ventrella.app/Contents/Resources/install-helper.sh, uninstall-helper.sh
#   Ventrella.app/Contents/Library/LaunchServices/com.quillmoor.Ventrella.helper
#   Ventrella.app/Contents/Library/LaunchDaemons/com.quillmoor.Ventrella.helper.plist
# Programs, scripts and other resources join it through the functions below; the target
# VentrellaAppBundle (built by default) brings every piece up to date.

set(VENTRELLA_APP_BUNDLE_DIR ${PROJECT_BINARY_DIR}/Ventrella.app)
add_custom_target(VentrellaAppBundle ALL)

# ventrella_bundle_file(<source file> <path inside Contents>)
function(ventrella_bundle_file source destination)
  _ventrella_bundle_copy(${source} ${destination} ${source})
endfunction()

# ventrella_bundle_target(<executable or library target> <path inside Contents>)
# Copies the target's file after each build of it, e.g. ventrella_bundle_target(Ventrella MacOS/Ventrella).
function(ventrella_bundle_target target destination)
  _ventrella_bundle_copy($<TARGET_FILE:${target}> ${destination} ${target})
endfunction()

# ventrella_bundle_localizations(<folder holding <language>.lproj folders>)
# Copies every "<language>.lproj/<table>.strings" to Contents/Resources.
function(ventrella_bundle_localizations folder)
  file(GLOB tables RELATIVE ${folder} CONFIGURE_DEPENDS ${folder}/*.lproj/*.strings)
  foreach(table ${tables})
    ventrella_bundle_file(${folder}/${table} Resources/${table})
  endforeach()
endfunction()

# ventrella_uses_app_bundle(<target>)
# Builds the bundle before the target and tells it where the bundle is (VENTRELLA_APP_BUNDLE_DIR).
function(ventrella_uses_app_bundle target)
  add_dependencies(${target} VentrellaAppBundle)
  target_compile_definitions(${target} PRIVATE VENTRELLA_APP_BUNDLE_DIR="${VENTRELLA_APP_BUNDLE_DIR}")
endfunction()

function(_ventrella_bundle_copy source destination dependency)
  set(output ${VENTRELLA_APP_BUNDLE_DIR}/Contents/${destination})
  string(MAKE_C_IDENTIFIER "VentrellaAppBundle_${destination}" step)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
    DEPENDS ${dependency}
    COMMENT "Bundling Ventrella.app/Contents/${destination}"
    VERBATIM)
  add_custom_target(${step} DEPENDS ${output})
  add_dependencies(VentrellaAppBundle ${step})
endfunction()

ventrella_bundle_file(${PROJECT_SOURCE_DIR}/Resources/Info.plist Info.plist)
ventrella_bundle_localizations(${PROJECT_SOURCE_DIR}/Resources/Localization)
ventrella_bundle_file(${PROJECT_SOURCE_DIR}/Resources/install-helper.sh Resources/install-helper.sh)
ventrella_bundle_file(${PROJECT_SOURCE_DIR}/Resources/uninstall-helper.sh Resources/uninstall-helper.sh)
ventrella_bundle_file(${PROJECT_SOURCE_DIR}/Resources/com.quillmoor.Ventrella.helper.plist
  Library/LaunchDaemons/com.quillmoor.Ventrella.helper.plist)
