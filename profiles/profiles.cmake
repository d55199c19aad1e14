# The eight job profiles: the one table from which the code constants and every resource
# (string table, registration script, type library, version block) are generated.
#
# jobsvc_profile(<shortName>
#   SERVICE_NAME <IDS_SERVICENAME>  TASK <taskName>  INTERVAL <defaultIntervalMinutes>
#   APPID <appId>  LIBID <libId>
#   CREATE_FAILED <IDS_CREATEINSTANCEFAILED>  NO_RUN <IDS_NORUNMETHOD>  RUN_FAILED <IDS_RUNFAILED>
#   LIB_NAME <type library name>  FILE_DESCRIPTION <...>  COMPANY <...>)
#
# The help string of each type library is "<shortName> 1.0 Type Library".

set(JOBSVC_PROFILES "")

macro(jobsvc_profile name)
  cmake_parse_arguments(_p ""
    "SERVICE_NAME;TASK;INTERVAL;APPID;LIBID;CREATE_FAILED;NO_RUN;RUN_FAILED;LIB_NAME;FILE_DESCRIPTION;COMPANY"
    "" ${ARGN})
  list(APPEND JOBSVC_PROFILES ${name})
  foreach(_field SERVICE_NAME TASK INTERVAL APPID LIBID CREATE_FAILED NO_RUN RUN_FAILED LIB_NAME
                 FILE_DESCRIPTION COMPANY)
    set(JOBSVC_${name}_${_field} "${_p_${_field}}")
  endforeach()
endmacro()

jobsvc_profile(Pellawin
  SERVICE_NAME "Morvik Orvanta Automatic Invoice Matching Service"
  TASK "MatchApprove" INTERVAL 60
  APPID "{33747C87-6407-4486-9F23-4DF9303A24CC}"
  LIBID "{3BA8EE1C-C245-40BF-A515-DF035F423383}"
  CREATE_FAILED "Unable to create instance of Balvo.MatchApproveInvoices"
  NO_RUN "Object Balvo.MatchApproveInvoices does not support the Run() method"
  RUN_FAILED "Error calling Run() on Balvo.MatchApproveInvoices"
  LIB_NAME "PellawinLib"
  FILE_DESCRIPTION "Morvik Orvanta Automatic Invoice Matching Service"
  COMPANY "Morvik Company")

jobsvc_profile(Corvasse
  SERVICE_NAME "Morvik Orvanta Check Mail Service"
  TASK "CheckMails" INTERVAL 60
  APPID "{FBEAEFF0-8A5E-434E-890C-F2F189B6D194}"
  LIBID "{DC3DAAA1-BBDE-463E-99FA-760E40193A45}"
  CREATE_FAILED "Unable to create instance of Kestrin.ConsolidateSend"
  NO_RUN "Object Kestrin.ConsolidateSend does not support the Run() method"
  RUN_FAILED "Error calling Run() on Kestrin.ConsolidateSend"
  LIB_NAME "CORVASSELib"
  FILE_DESCRIPTION "Corvasse Module"
  COMPANY "")

jobsvc_profile(Drimmond
  SERVICE_NAME "Morvik Orvanta Export Invoices Service"
  TASK "Export" INTERVAL 60
  APPID "{28147349-BD6E-4761-9024-D2787D81B288}"
  LIBID "{9063259D-65FF-4CF3-84A1-7B429222A37D}"
  CREATE_FAILED "Unable to create instance of Balvo.ExportInvoices"
  NO_RUN "Object Balvo.ExportInvoices does not support the Run() method"
  RUN_FAILED "Error calling Run() on Balvo.ExportInvoices"
  LIB_NAME "DrimmondLib"
  FILE_DESCRIPTION "Morvik Orvanta Export Invoices Service"
  COMPANY "Morvik Company")

jobsvc_profile(Halvane
  SERVICE_NAME "Morvik Orvanta Close Received Requisitions Service"
  TASK "Close" INTERVAL 1440
  APPID "{0117DCD2-9E9E-11D3-A731-00104BE19F88}"
  LIBID "{0117DCD1-9E9E-11D3-A731-00104BE19F88}"
  CREATE_FAILED "Unable to create instance of Kestrin.CloseRequisitions"
  NO_RUN "Object Kestrin.CloseRequisitions does not support the Run() method"
  RUN_FAILED "Error calling Run() on Kestrin.CloseRequisitions"
  LIB_NAME "HALVANELib"
  FILE_DESCRIPTION "Morvik Orvanta Close Received Requisitions Service"
  COMPANY "Morvik Company")

jobsvc_profile(Tobrisk
  SERVICE_NAME "Morvik Orvanta Transfer Approval Entries Service"
  TASK "TransferApprovalEntries" INTERVAL 1440
  APPID "{97D3A6E2-6552-11D5-A6E6-00D0B75462A8}"
  LIBID "{97D3A6E1-6552-11D5-A6E6-00D0B75462A8}"
  CREATE_FAILED "Unable to create instance of Kestrin.TransferApprovalEntries"
  NO_RUN "Object Kestrin.TransferApprovalEntries does not support the Run() method"
  RUN_FAILED "Error calling Run() on Kestrin.TransferApprovalEntries"
  LIB_NAME "TOBRISKLib"
  FILE_DESCRIPTION "Morvik Orvanta Transfer Approval Entries Service"
  COMPANY "Morvik Company")

jobsvc_profile(Quellan
  SERVICE_NAME "Morvik Orvanta Purge Invoices Service"
  TASK "Purge" INTERVAL 1440
  APPID "{F93976D0-F6F0-4306-BDC1-C1165D512D37}"
  LIBID "{EF5F3039-B8A1-4089-9B56-F916C7B98ACB}"
  CREATE_FAILED "Unable to create instance of Balvo.PurgeInvoices"
  NO_RUN "Object Balvo.PurgeInvoices does not support the Run() method"
  RUN_FAILED "Error calling Run() on Balvo.PurgeInvoices"
  LIB_NAME "QuellanLib"
  FILE_DESCRIPTION "Morvik Orvanta Purge Invoices Service"
  COMPANY "Morvik Company")

jobsvc_profile(Simbrel
  SERVICE_NAME "Morvik Orvanta Requisition Import Service"
  TASK "Import" INTERVAL 60
  APPID "{071BFCF2-779B-408F-A352-E4A89FF8BF65}"
  LIBID "{94911222-5077-45CE-AC41-FB0177FA8654}"
  CREATE_FAILED "Unable to create instance of Kestrin.Requisition"
  NO_RUN "Object Kestrin.Requisition does not support the Run() method"
  RUN_FAILED "Error calling Run() on Kestrin.Requisition"
  LIB_NAME "SIMBRELLib"
  FILE_DESCRIPTION "Simbrel Module"
  COMPANY "")

jobsvc_profile(Varnock
  SERVICE_NAME "Morvik Orvanta Consolidate Send Requisitions Service"
  TASK "Consolidate" INTERVAL 60
  APPID "{F1F13DB4-B083-11D3-A74E-204C4F4F5020}"
  LIBID "{F1F13DB3-B083-11D3-A74E-204C4F4F5020}"
  CREATE_FAILED "Unable to create instance of Kestrin.ConsolidateSend"
  NO_RUN "Object Kestrin.ConsolidateSend does not support the Run() method"
  RUN_FAILED "Error calling Run() on Kestrin.ConsolidateSend"
  LIB_NAME "VARNOCKLib"
  FILE_DESCRIPTION "Varnock Module"
  COMPANY "")
