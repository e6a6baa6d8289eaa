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

#include "entry/query.h"
#include "wmi/query/wmi_query_info.h"

// The status of every failure of a WMI query.
inline constexpr HRESULT kWmiQueryFailed = static_cast<HRESULT>(0x80049000);

class CWMIQuery : public CQuery {
  public:
    CWMIQuery() = default;
    ~CWMIQuery() override = default;

    // Reads the query element into the definition: S_OK, or kWmiQueryFailed (logged) with
    // the definition unchanged.
    HRESULT Initialize(IXMLDOMElementPtr& query) override;
    HRESULT Execute(std::u16string& output) override;

    // The definition Execute runs.
    const WMIQueryInfo& ActiveDefinition() const { return active_; }

  private:
    void ReadDefinition(IXMLDOMElementPtr& query);

    WMIQueryInfo working_;
    WMIQueryInfo active_;
};
