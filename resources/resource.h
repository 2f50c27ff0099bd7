// Resource ids of the component module: the .rc and the code both name them
// from here. Plain #defines, which the resource compiler reads too.
#pragma once

// Registry scripts (REGISTRY), in the order of the object map.
#define IDR_REVISIONDIRECTORY                        101
#define IDR_REVISION                                 102
#define IDR_AVAILABLEREVISIONS                       103
#define IDR_REVISIONS                                104
#define IDR_PROCESSORTYPES                           105
#define IDR_PROCESSORTYPE                            106

// The type library (TYPELIB).
#define IDR_TYPELIB                                  1

// Strings (STRINGTABLE): the module's name, the controllers' display texts
// (two types have a blank one) and the error texts. 125 and 146 are unused.
#define IDS_PROJNAME                                 100
#define IDS_ARVANE01                                 101
#define IDS_ARVANE02                                 102
#define IDS_QUORRAL01                                103
#define IDS_BETREL01                                 104
#define IDS_NIMBREL01                                105
#define IDS_OSTREL01                                 106
#define IDS_MOTION01                                 107
#define IDS_ARVANE03                                 108
#define IDS_ARVANE04                                 109
#define IDS_QUORRAL02                                110
#define IDS_BETREL02                                 111
#define IDS_BETREL03                                 112
#define IDS_BETREL04                                 113
#define IDS_ARVANE05                                 114
#define IDS_OSTREL02                                 115
#define IDS_E_INVALIDREVISIONDIRECTORYINTERNALSTATE  116
#define IDS_E_INVALIDPROCESSORTYPEINTERNALSTATE      117
#define IDS_E_INVALIDREVISIONINTERNALSTATE           118
#define IDS_E_NOTINITIALIZED                         119
#define IDS_E_PROCESSORTYPENOTSUPPORTED              120
#define IDS_E_REVISIONNOTFOUND                       121
#define IDS_E_REVISIONNOTINSTALLED                   122
#define IDS_E_UNABLETOACCESSPROJECTFILE              123
#define IDS_E_UNEXPECTED                             124
#define IDS_MIMIC01                                  126
#define IDS_BETREL05                                 127
#define IDS_ARVANE06                                 128
#define IDS_PENDRA01                                 129
#define IDS_ARVANE07                                 130
#define IDS_ARVANE08                                 131
#define IDS_E_NOTA_TESSELCONTROLLER                  132
#define IDS_E_NODEVICEFOUND                          133
#define IDS_OSTREL03                                 134
#define IDS_BETREL06                                 135
#define IDS_BETREL07                                 136
#define IDS_BETREL08                                 137
#define IDS_BETREL09                                 138
#define IDS_ARVANE09                                 139
#define IDS_E_NOTQUILLON                             140
#define IDS_ARVANE10                                 141
#define IDS_ARVANE11                                 142
#define IDS_E_INVALIDLANGUAGEID                      143
#define IDS_E_FILENOTOPENEDBYQUILLON                 144
#define IDS_BETREL10                                 145
#define IDS_BETREL11                                 147
#define IDS_BETREL12                                 148
#define IDS_E_INVALIDPROJECTFILECONTENTS             149
#define IDS_E_INVALIDPROJECTFILETYPE                 150
