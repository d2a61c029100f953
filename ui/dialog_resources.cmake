# The one reader of res/dialogs.json, the dialogs' templates, strings and
# icons. It writes what each front end builds in:
#   cmake -DJSON=res/dialogs.json [-DRC=dialogs.rc] [-DCPP=dialog_resources_data.cpp]
#         -P dialog_resources.cmake
# RC: the DIALOGEX and STRINGTABLE parts of Tessup's Windows resource script;
# styles are written as numbers, so the script needs no Windows headers.
# CPP: the same as a C++ table, BuiltInResources() of ui/qt/dialog_resources.h.
# A field that is missing reads as empty or zero (an id as -1); a name that
# isn't known, or a file that is no JSON object, stops the build.
cmake_minimum_required(VERSION 3.19)

set(style_WS_POPUP 0x80000000)
set(style_WS_VISIBLE 0x10000000)
set(style_WS_CAPTION 0x00C00000)
set(style_WS_BORDER 0x00800000)
set(style_WS_SYSMENU 0x00080000)
set(style_WS_GROUP 0x00020000)
set(style_WS_TABSTOP 0x00010000)
set(style_DS_MODALFRAME 0x80)
set(style_DS_SETFONT 0x40)
set(style_BS_DEFPUSHBUTTON 0x1)
set(style_SS_LEFT 0x0)
set(style_SS_CENTER 0x1)
set(style_SS_RIGHT 0x2)
set(style_SS_ICON 0x3)
set(style_SS_NOPREFIX 0x80)
set(style_SS_CENTERIMAGE 0x200)
set(style_WS_EX_CLIENTEDGE 0x200)
set(style_WS_EX_APPWINDOW 0x40000)

# What every control is (WS_CHILD | WS_VISIBLE), and what each kind adds. The
# system's own classes go in as their atoms (Button 0x80, Static 0x82), as
# Microsoft's compiler writes them; a common control by its class name.
set(kChild 0x50000000)
set(class_pushbutton 0x80)
set(class_groupbox 0x80)
set(class_static 0x82)
set(class_icon 0x82)
set(class_progress "\"msctls_progress32\"")
set(kind_groupbox 0x7)   # BS_GROUPBOX

# The kinds as the C++ table names them.
set(cpp_pushbutton ControlKind::PushButton)
set(cpp_static ControlKind::Static)
set(cpp_groupbox ControlKind::GroupBox)
set(cpp_progress ControlKind::Progress)
set(cpp_icon ControlKind::Icon)

file(READ "${JSON}" json)
string(JSON rootType ERROR_VARIABLE notJson TYPE "${json}")
if(notJson OR NOT rootType STREQUAL "OBJECT")
    message(FATAL_ERROR "${JSON}: not a JSON object: ${notJson}")
endif()

# The names in array `path...` of the JSON, ORed, as 0x%08X in `out`.
function(read_bits out)
    set(bits 0)
    string(JSON type ERROR_VARIABLE missing TYPE "${json}" ${ARGN})
    if(type STREQUAL "ARRAY")
        string(JSON count LENGTH "${json}" ${ARGN})
        if(count GREATER 0)
            math(EXPR last "${count} - 1")
            foreach(i RANGE ${last})
                string(JSON name GET "${json}" ${ARGN} ${i})
                if(NOT DEFINED style_${name})
                    message(FATAL_ERROR "${JSON}: dialog ${id}: unknown style '${name}'")
                endif()
                math(EXPR bits "${bits} | ${style_${name}}")
            endforeach()
        endif()
    endif()
    math(EXPR bits "${bits}" OUTPUT_FORMAT HEXADECIMAL)
    set(${out} ${bits} PARENT_SCOPE)
endfunction()

# `text` as a C++ string literal of UTF-8 bytes.
function(cpp_quote out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(${out} "QString::fromUtf8(\"${text}\")" PARENT_SCOPE)
endfunction()

# `text` as a resource-script string literal.
function(quote out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\"\"" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# Member `name` of the object at `path...`, or `default` when it has none.
function(member out default name)
    string(JSON value ERROR_VARIABLE missing GET "${json}" ${ARGN} ${name})
    if(missing)
        set(value "${default}")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# The four numbers of member "rect" at `path...`, each 0 when missing.
function(rect out)
    set(numbers "")
    foreach(i 0 1 2 3)
        string(JSON n ERROR_VARIABLE missing GET "${json}" ${ARGN} rect ${i})
        if(missing)
            set(n 0)
        endif()
        list(APPEND numbers ${n})
    endforeach()
    list(JOIN numbers ", " joined)
    set(${out} "${joined}" PARENT_SCOPE)
endfunction()

# Number `count` of the array at `path...`: 0 when there is none.
function(array_length out)
    string(JSON count ERROR_VARIABLE missing LENGTH "${json}" ${ARGN})
    if(missing)
        set(count 0)
    endif()
    set(${out} ${count} PARENT_SCOPE)
endfunction()

set(rc "// Written by ui/dialog_resources.cmake from res/dialogs.json; do not edit.\n\n")
string(CONCAT cpp "// Written by ui/dialog_resources.cmake from res/dialogs.json; do not edit.\n"
                  "#include \"dialog_resources.h\"\n\nResourceSet BuiltInResources()\n{\n    ResourceSet set;\n")

array_length(dialogCount dialogs)
if(dialogCount GREATER 0)
    math(EXPR lastDialog "${dialogCount} - 1")
    foreach(d RANGE ${lastDialog})
        member(id 0 id dialogs ${d})
        member(symbol "" symbol dialogs ${d})
        member(caption "" caption dialogs ${d})
        member(font "MS Sans Serif" font dialogs ${d})
        member(points 8 pointSize dialogs ${d})
        read_bits(style dialogs ${d} style)
        read_bits(exStyle dialogs ${d} exStyle)
        rect(where dialogs ${d})
        cpp_quote(cppSymbol "${symbol}")
        cpp_quote(cppCaption "${caption}")
        quote(caption "${caption}")
        quote(font "${font}")
        string(APPEND rc "${id} DIALOGEX ${where}\nSTYLE ${style}\nEXSTYLE ${exStyle}\n"
                         "CAPTION ${caption}\nFONT ${points}, ${font}, 0, 0, 0x1\nBEGIN\n")
        string(APPEND cpp "    {\n        DialogTemplate& dialog = set.dialogs[${id}];\n"
                          "        dialog.id = ${id};\n        dialog.symbol = ${cppSymbol};\n"
                          "        dialog.rect = QRect(${where});\n"
                          "        dialog.style = ${style};\n        dialog.exStyle = ${exStyle};\n"
                          "        dialog.caption = ${cppCaption};\n        dialog.pointSize = ${points};\n"
                          "        dialog.controls = {\n")
        array_length(controlCount dialogs ${d} controls)
        if(controlCount GREATER 0)
            math(EXPR lastControl "${controlCount} - 1")
            foreach(c RANGE ${lastControl})
                set(at dialogs ${d} controls ${c})
                member(kind "" kind ${at})
                member(controlId -1 id ${at})
                member(controlSymbol "" symbol ${at})
                member(text "" text ${at})
                member(icon 0 icon ${at})
                read_bits(controlStyle ${at} style)
                read_bits(controlExStyle ${at} exStyle)
                rect(where ${at})
                if(NOT DEFINED class_${kind})
                    message(FATAL_ERROR "${JSON}: dialog ${id}: unknown kind '${kind}'")
                endif()
                cpp_quote(cppControlSymbol "${controlSymbol}")
                cpp_quote(cppText "${text}")
                string(APPEND cpp "            {${controlId}, ${cppControlSymbol}, ${cpp_${kind}}, ${cppText}, ${icon}, "
                                  "QRect(${where}), ${controlStyle}, ${controlExStyle}},\n")
                if(kind STREQUAL "icon")
                    set(title ${icon})   # the icon resource's number
                else()
                    quote(title "${text}")
                endif()
                if(DEFINED kind_${kind})
                    math(EXPR controlStyle "${controlStyle} | ${kind_${kind}}")
                endif()
                math(EXPR controlStyle "${controlStyle} | ${kChild}" OUTPUT_FORMAT HEXADECIMAL)
                string(APPEND rc "    CONTROL ${title}, ${controlId}, ${class_${kind}}, ${controlStyle}, ${where}, "
                                 "${controlExStyle}\n")
            endforeach()
        endif()
        string(APPEND rc "END\n\n")
        string(APPEND cpp "        };\n    }\n")
    endforeach()
endif()

# Strings and icons: objects whose member names are the numbers.
function(numbered table)
    set(entries "")
    string(JSON count ERROR_VARIABLE missing LENGTH "${json}" ${table})
    if(NOT missing AND count GREATER 0)
        math(EXPR last "${count} - 1")
        foreach(i RANGE ${last})
            string(JSON key MEMBER "${json}" ${table} ${i})
            string(JSON text GET "${json}" ${table} ${key})
            list(APPEND entries "${key}")
            set(${table}_${key} "${text}" PARENT_SCOPE)
        endforeach()
    endif()
    set(${table}_keys "${entries}" PARENT_SCOPE)
endfunction()

numbered(strings)
numbered(icons)
string(APPEND rc "STRINGTABLE\nBEGIN\n")
foreach(key IN LISTS strings_keys)
    quote(text "${strings_${key}}")
    string(APPEND rc "    ${key}, ${text}\n")
    cpp_quote(text "${strings_${key}}")
    string(APPEND cpp "    set.strings[${key}] = ${text};\n")
endforeach()
string(APPEND rc "END\n")
foreach(key IN LISTS icons_keys)
    cpp_quote(text "${icons_${key}}")
    string(APPEND cpp "    set.icons[${key}] = ${text};\n")
endforeach()
string(APPEND cpp "    return set;\n}\n")

# Each rewritten only when it changes, so that an unchanged output is not compiled again.
function(write_if_changed path text)
    file(WRITE "${path}.new" "${text}")
    file(COPY_FILE "${path}.new" "${path}" ONLY_IF_DIFFERENT)
    file(REMOVE "${path}.new")
endfunction()

if(DEFINED RC)
    write_if_changed("${RC}" "${rc}")
endif()
if(DEFINED CPP)
    write_if_changed("${CPP}" "${cpp}")
endif()
