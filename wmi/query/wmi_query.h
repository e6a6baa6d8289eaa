// A WMI query: a namespace, a class, the properties to read with the columns they fill,
// named conversion functions, and a filter clause. The query is its own result collector.
// Created by the driver for one call and used by that call's thread only.
//
// The query element it reads:
//
//   <query namespace="root\cimv2" class="Win32_Service">
//     <rules><rule name="r"><definition><function name="GetSQLBooleantoBit" param=""/>
//     </definition></rule></rules>
//     <properties><property mapsTo="0">Name</property>
//                 <property mapsTo="1" rule="r">Started</property></properties>
//     <filter clause="where StartMode='Auto'"/>
//   </query>
//
// gives "select Name,Started from Win32_Service where StartMode='Auto'".
#pragma once

#include <memory>

#include "entry/query.h"
#include "kvwin/wide_string.h"
#include "wmi/query/wmi_query_info.h"
#include "wmi/wmi_async_query.h"

// The status of every failure of a WMI query.
inline constexpr HRESULT kWmiQueryFailed = static_cast<HRESULT>(0x80049000);
// How long one query may take to deliver all its objects.
inline constexpr uint32_t kWmiFetchTimeLimitMs = 120000;

class CWMIQuery : public CQuery {
  public:
    CWMIQuery() = default;
    ~CWMIQuery() override = default;

    // Reads the query element into the definition: S_OK, or kWmiQueryFailed (logged) with
    // the definition unchanged.
    HRESULT Initialize(IXMLDOMElementPtr& query) override;
    // Connects to "\\.\" + namespace, runs the statement and fills one row per object,
    // each binding's value converted and set in its column; the output is the collector's
    // row text. S_OK, or kWmiQueryFailed (logged). The output is replaced whenever the
    // connection was made, also when the query failed; otherwise it keeps what it held.
    HRESULT Execute(WString& output) override;
    // Runs one definition through the connected engine: S_OK or kWmiQueryFailed.
    HRESULT ExecuteQuery(const WMIQueryInfo& definition);

    // The definition Execute runs (an empty one before any was read).
    const WMIQueryInfo& ActiveDefinition() const;
    // The same, shared: it is never changed, so it may be kept and handed to other queries.
    std::shared_ptr<const WMIQueryInfo> SharedDefinition() const { return active_; }
    // Takes a definition Initialize read earlier from a query element of the same text,
    // instead of reading the element again. The definition is shared, not copied.
    void UseDefinition(std::shared_ptr<const WMIQueryInfo> definition);

  private:
    void ReadDefinition(IXMLDOMElementPtr& query);

    void AddRows(const WMIRows& rows, const WMIQueryInfo& definition);

    // The definition being read; an element without a namespace keeps the one read before.
    WMIQueryInfo working_;
    std::shared_ptr<const WMIQueryInfo> active_;  // null until one was read or taken
    // Declared last, destroyed first: it cancels a running query and waits for WMI to let
    // go of its sink before the definitions and the collector go.
    CWMIAsyncQuery engine_;
};
