# The team the application and its helper are signed by.
set(VENTRELLA_TEAM_IDENTIFIER "QM7V3NTR1A" CACHE STRING "Team identifier of Ventrella's signatures")

# ventrella_codesign(<target> IDENTIFIER <id> FLAGS <hex> [ENTITLEMENTS <file>] [TEAM <id>])
# Signs the target's executable with Tools/codesign every time it is linked.
function(ventrella_codesign target)
  cmake_parse_arguments(ARG "" "IDENTIFIER;FLAGS;ENTITLEMENTS;TEAM" "" ${ARGN})
  if(NOT ARG_IDENTIFIER OR "${ARG_FLAGS}" STREQUAL "")
    message(FATAL_ERROR "ventrella_codesign(${target}) needs IDENTIFIER and FLAGS")
  endif()
  set(args sign --identifier ${ARG_IDENTIFIER} --flags ${ARG_FLAGS})
  if(ARG_ENTITLEMENTS)
    get_filename_component(entitlements ${ARG_ENTITLEMENTS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND args --entitlements ${entitlements})
    # Relink (and so re-sign) when the entitlements change.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${entitlements})
  endif()
  if(ARG_TEAM)
    list(APPEND args --team ${ARG_TEAM})
  endif()
  add_dependencies(${target} codesign)
  # Relink (and so re-sign) when the signing tool changes, so that no program keeps a signature
  # of an earlier format.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS $<TARGET_FILE:codesign>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND $<TARGET_FILE:codesign> ${args} $<TARGET_FILE:${target}>
    COMMENT "Signing ${target} as ${ARG_IDENTIFIER}"
    VERBATIM)
endfunction()
