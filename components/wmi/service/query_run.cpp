#include "service/query_run.h"

#include <exception>
#include <map>
#include <mutex>
#include <type_traits>
#include <unordered_map>
#include <variant>

#include "kvwin/ascii_case.h"
#include "kvwin/utf.h"
#include "service/class_object.h"
#include "service/namespace_path.h"
#include "service/object_path.h"
#include "win/debug.h"
#include "wql/binder.h"
#include "wql/evaluator.h"
#include "wql/parser.h"

namespace kvwmi {

namespace {

// The reason a query was refused, for whoever wrote it: WMI itself says no more than the
// code, so the reason goes to the debug channel (a listening tool shows it).
void Explain(const std::u16string& reason, const std::u16string& query_text) {
    const std::u16string message = u"kavrel-wmi: " + reason + u": " + query_text + u"\n";
    OutputDebugStringW(message.c_str());
}

bool IsNamePart(char16_t c) {
    return c == u'_' || (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z');
}

// Where a name first stands as a whole word in the text (ASCII case-insensitive), or npos.
size_t NameOffset(std::u16string_view text, std::u16string_view name) {
    if (name.empty())
        return std::u16string_view::npos;
    for (size_t at = 0; at + name.size() <= text.size(); ++at) {
        if ((at > 0 && IsNamePart(text[at - 1])) ||
            (at + name.size() < text.size() && IsNamePart(text[at + name.size()])))
            continue;
        if (kvwin::EqualsAsciiNoCase(text.substr(at, name.size()), name))
            return at;
    }
    return std::u16string_view::npos;
}

void MarkConditionProperties(const wql::Condition& condition, std::vector<bool>& wanted) {
    auto mark = [&wanted](const wql::PropertyRef& ref) {
        if (ref.index >= 0 && static_cast<size_t>(ref.index) < wanted.size())
            wanted[static_cast<size_t>(ref.index)] = true;
    };
    std::visit(
        [&](const auto& node) {
            using Node = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Node, wql::Negation>) {
                MarkConditionProperties(*node.operand, wanted);
            } else if constexpr (std::is_same_v<Node, wql::Junction>) {
                for (const wql::ConditionPtr& operand : node.operands)
                    MarkConditionProperties(*operand, wanted);
            } else {
                mark(node.property);
            }
        },
        condition.node);
}

// What the provider must compute for a query: the selected properties, those the WHERE
// clause tests and the keys (an object's path is made of them); everything for SELECT *.
Selection NeededProperties(const PreparedQuery& prepared) {
    Selection selection;
    const wql::Query& query = *prepared.query;
    if (query.select_all)
        return selection;
    const std::vector<PropertyDecl>& properties = prepared.decl->properties;
    selection.wanted.assign(properties.size(), false);
    for (size_t i = 0; i < properties.size(); ++i)
        selection.wanted[i] = properties[i].key;
    for (const wql::PropertyRef& ref : query.select) {
        if (ref.index >= 0 && static_cast<size_t>(ref.index) < properties.size())
            selection.wanted[static_cast<size_t>(ref.index)] = true;
    }
    if (query.where)
        MarkConditionProperties(*query.where, selection.wanted);
    return selection;
}

// The `property = literal` conditions the whole condition requires: the condition itself,
// or the operands of a top-level AND (nested ANDs too). Strings and integers only; a real
// or a boolean is left to the full test.
void CollectEqualities(const wql::Condition& condition, std::vector<PropertyEquals>& out) {
    if (const auto* junction = std::get_if<wql::Junction>(&condition.node)) {
        if (junction->is_and) {
            for (const wql::ConditionPtr& operand : junction->operands)
                CollectEqualities(*operand, out);
        }
        return;
    }
    const auto* comparison = std::get_if<wql::Comparison>(&condition.node);
    if (!comparison || comparison->op != wql::CompareOp::Equal || comparison->property.index < 0)
        return;
    const wql::Literal::Kind kind = comparison->value.kind;
    if (kind == wql::Literal::Kind::String || kind == wql::Literal::Kind::Integer)
        out.push_back(PropertyEquals{comparison->property.index, KeyText(comparison->value)});
}

// The source's rows for a prepared query: looked up when the condition allows, else all.
ClassContent FetchRows(const PreparedQuery& prepared, const Selection& needed) {
    const wql::Query& query = *prepared.query;
    if (query.where) {
        std::vector<PropertyEquals> equals;
        CollectEqualities(*query.where, equals);
        if (!equals.empty()) {
            if (std::optional<ClassContent> found =
                    prepared.source->Lookup(*prepared.decl, equals, needed))
                return std::move(*found);
        }
    }
    return prepared.source->Enumerate(*prepared.decl, needed);
}

IWbemClassObjectPtr MakeObject(const std::shared_ptr<const NamespaceSource>& source,
                               const ClassDecl& decl, SourceRow row, std::vector<bool> selected,
                               const std::u16string& server) {
    ObjectData data;
    data.source = source;
    data.decl = &decl;
    data.values = std::move(row.values);
    data.failures = std::move(row.failures);
    data.selected = std::move(selected);
    data.server = server;
    return IWbemClassObjectPtr(CreateClassObject(std::move(data)), false);
}

IWbemClassObjectPtr MakeClassDefinition(const std::shared_ptr<const NamespaceSource>& source,
                                        const ClassDecl& decl, const std::u16string& server) {
    ObjectData data;
    data.source = source;
    data.decl = &decl;
    data.is_class = true;
    data.server = server;
    return IWbemClassObjectPtr(CreateClassObject(std::move(data)), false);
}

QueryResult ProviderFailure(const std::exception& failure, const PreparedQuery& prepared) {
    QueryResult result;
    result.status.result = WBEM_E_PROVIDER_FAILURE;
    result.status.send_object = true;
    result.status.fields =
        ServiceStatus(WBEM_E_PROVIDER_FAILURE, kvwin::FromUtf8(failure.what()), prepared);
    return result;
}

// One run of an ASSOCIATORS OF or REFERENCES OF query (see query_run.h). Lives on the
// running thread only.
class AssociationRun {
  public:
    explicit AssociationRun(const PreparedQuery& prepared)
        : prepared_(prepared), clause_(prepared.query->association), server_(LocalServerName()) {}

    QueryResult Run() {
        QueryResult result;
        if (!ParseObjectPath(clause_.object_path, target_) || target_.is_class)
            return result;
        std::vector<IWbemClassObjectPtr> found;
        AddInstance(prepared_.source, *prepared_.decl, target_, true, found);
        if (found.empty()) {
            result.status.result = WBEM_E_NOT_FOUND;
            return result;
        }
        const bool references = prepared_.query->kind == wql::QueryKind::References;
        for (const ClassDecl* assoc : prepared_.source->Classes()) {
            if (!IsAssociation(*assoc) || !NameMatches(clause_.assoc_class, assoc->name) ||
                (references && !NameMatches(clause_.result_class, assoc->name)))
                continue;
            ClassContent content = prepared_.source->Enumerate(*assoc, Selection{});
            for (SourceRow& row : content.rows) {
                if (references)
                    AddReference(*assoc, std::move(row), result.objects);
                else
                    AddAssociators(*assoc, row, result.objects);
            }
        }
        return result;
    }

  private:
    static bool NameMatches(const std::u16string& wanted, std::u16string_view name) {
        return wanted.empty() || kvwin::EqualsAsciiNoCase(wanted, name);
    }

    // The object path a reference property holds, when it parses and names this machine.
    bool ReferencePath(const CimValue& value, ObjectPath& path) {
        const auto* text = std::get_if<std::u16string>(&value);
        return text && ParseObjectPath(*text, path) && !path.is_class &&
               (path.server.empty() || IsLocal(path.server));
    }

    // Whether a machine name is this machine's; each name is asked once per run (the
    // answer may take a name-service query).
    bool IsLocal(const std::u16string& server) {
        for (const auto& [name, local] : servers_) {
            if (kvwin::EqualsAsciiNoCase(name, server))
                return local;
        }
        const bool local = IsLocalMachineName(server);
        servers_.emplace_back(server, local);
        return local;
    }

    bool NamesTarget(const CimValue& value) {
        ObjectPath path;
        return ReferencePath(value, path) &&
               (path.ns.empty() || kvwin::EqualsAsciiNoCase(path.ns, prepared_.source->Name())) &&
               SameInstance(path, target_, *prepared_.decl);
    }

    // Whether the association row refers to the source object, through `role` when the
    // query names one; `roles` gets each property that does.
    bool RefersToTarget(const ClassDecl& assoc, const SourceRow& row, std::vector<size_t>& roles) {
        roles.clear();
        for (size_t i = 0; i < assoc.properties.size() && i < row.values.size(); ++i) {
            const PropertyDecl& property = assoc.properties[i];
            if (property.type == CIM_REFERENCE && NameMatches(clause_.role, property.name) &&
                NamesTarget(row.values[i]))
                roles.push_back(i);
        }
        return !roles.empty();
    }

    std::vector<bool> Selected(const ClassDecl& decl) const {
        return clause_.keys_only ? std::vector<bool>(decl.properties.size(), false)
                                 : std::vector<bool>();
    }

    void AddDefinition(const std::shared_ptr<const NamespaceSource>& source, const ClassDecl& decl,
                       std::vector<IWbemClassObjectPtr>& out) {
        for (const ClassDecl* seen : definitions_) {
            if (seen == &decl)
                return;
        }
        definitions_.push_back(&decl);
        out.push_back(MakeClassDefinition(source, decl, server_));
    }

    void AddReference(const ClassDecl& assoc, SourceRow row,
                      std::vector<IWbemClassObjectPtr>& out) {
        std::vector<size_t> roles;
        if (!RefersToTarget(assoc, row, roles))
            return;
        if (clause_.class_defs_only)
            AddDefinition(prepared_.source, assoc, out);
        else
            out.push_back(
                MakeObject(prepared_.source, assoc, std::move(row), Selected(assoc), server_));
    }

    void AddAssociators(const ClassDecl& assoc, const SourceRow& row,
                        std::vector<IWbemClassObjectPtr>& out) {
        std::vector<size_t> roles;
        if (!RefersToTarget(assoc, row, roles))
            return;
        for (size_t role : roles) {
            for (size_t i = 0; i < assoc.properties.size() && i < row.values.size(); ++i) {
                const PropertyDecl& property = assoc.properties[i];
                if (i == role || property.type != CIM_REFERENCE ||
                    !NameMatches(clause_.result_role, property.name))
                    continue;
                ObjectPath path;
                if (!ReferencePath(row.values[i], path))
                    continue;
                std::shared_ptr<const NamespaceSource> source = Namespace(path.ns);
                const ClassDecl* decl = source ? source->FindClass(path.class_name) : nullptr;
                if (!decl || !NameMatches(clause_.result_class, decl->name))
                    continue;
                if (clause_.class_defs_only)
                    AddDefinition(source, *decl, out);
                else
                    AddInstance(source, *decl, path, clause_.keys_only, out);
            }
        }
    }

    // The namespace a reference names (empty: the query's), or null when it cannot be opened.
    std::shared_ptr<const NamespaceSource> Namespace(const std::u16string& name) {
        if (name.empty() || kvwin::EqualsAsciiNoCase(name, prepared_.source->Name()))
            return prepared_.source;
        for (const auto& [opened, source] : namespaces_) {
            if (kvwin::EqualsAsciiNoCase(opened, name))
                return source;
        }
        std::shared_ptr<const NamespaceSource> source;
        if (FAILED(OpenNamespace(name, source)))
            source.reset();
        namespaces_.emplace_back(name, source);
        return source;
    }

    // Appends the instance the path names, if it exists: looked up by its keys, or found
    // among the class's instances (listed once per run).
    void AddInstance(const std::shared_ptr<const NamespaceSource>& source, const ClassDecl& decl,
                     const ObjectPath& path, bool keys_only,
                     std::vector<IWbemClassObjectPtr>& out) {
        PreparedQuery query;
        if (FAILED(PreparePathQuery(path, source, decl, keys_only, query)))
            return;
        const wql::Condition* where = query.query->where.get();
        std::vector<PropertyEquals> equals;
        if (where)
            CollectEqualities(*where, equals);
        std::optional<ClassContent> looked;
        if (!equals.empty())
            looked = source->Lookup(decl, equals, Selection{});
        std::vector<SourceRow>* rows = nullptr;
        if (looked) {
            rows = &looked->rows;
        } else {
            auto listed = listed_.find(&decl);
            if (listed == listed_.end())
                listed = listed_.emplace(&decl, source->Enumerate(decl, Selection{}).rows).first;
            rows = &listed->second;
        }
        for (const SourceRow& row : *rows) {
            if (RowMatches(query, row.values)) {
                std::vector<bool> selected = keys_only
                                                 ? std::vector<bool>(decl.properties.size(), false)
                                                 : std::vector<bool>();
                out.push_back(MakeObject(source, decl, row, std::move(selected), server_));
                return;
            }
        }
    }

    const PreparedQuery& prepared_;
    const wql::AssociationClause& clause_;
    const std::u16string server_;
    ObjectPath target_;
    std::vector<const ClassDecl*> definitions_;
    std::vector<std::pair<std::u16string, bool>> servers_;
    std::vector<std::pair<std::u16string, std::shared_ptr<const NamespaceSource>>> namespaces_;
    std::map<const ClassDecl*, std::vector<SourceRow>> listed_;
};

std::u16string Number(size_t value) {
    return kvwin::FromUtf8(std::to_string(value));
}

HRESULT Finish(wql::Query query, const std::shared_ptr<const NamespaceSource>& source,
               std::u16string text, PreparedQuery& out) {
    const ClassDecl* decl = source->FindClass(query.class_name);
    if (!decl) {
        std::u16string reason =
            u"no class " + query.class_name + u" in namespace " + source->Name();
        if (const size_t at = NameOffset(text, query.class_name); at != std::u16string::npos)
            reason += u" (offset " + Number(at) + u")";
        Explain(reason, text);
        return WBEM_E_INVALID_CLASS;
    }
    wql::BindFault fault;
    HRESULT hr = wql::Bind(query, *decl, &fault);
    if (FAILED(hr)) {
        std::u16string reason =
            fault.property + u" " + fault.reason + u" " + std::u16string(decl->name);
        if (const size_t at = NameOffset(text, fault.property); at != std::u16string::npos)
            reason += u" (offset " + Number(at) + u")";
        Explain(reason, text);
        return hr;
    }
    out.source = source;
    out.decl = decl;
    out.query = std::make_shared<const wql::Query>(std::move(query));
    out.text = std::move(text);
    return WBEM_S_NO_ERROR;
}

HRESULT FinishAssociation(wql::Query query, const std::shared_ptr<const NamespaceSource>& source,
                          std::u16string text, PreparedQuery& out) {
    ObjectPath path;
    if (!ParseObjectPath(query.association.object_path, path)) {
        Explain(u"not an object path (offset " + Number(query.association.path_offset) + u")",
                text);
        return WBEM_E_INVALID_QUERY;
    }
    if (!path.server.empty() && !IsLocalMachineName(path.server))
        return WBEM_E_TRANSPORT_FAILURE;
    std::shared_ptr<const NamespaceSource> target = source;
    if (!path.ns.empty() && !kvwin::EqualsAsciiNoCase(path.ns, source->Name())) {
        HRESULT hr = OpenNamespace(path.ns, target);
        if (FAILED(hr))
            return hr;
    }
    const ClassDecl* decl = target->FindClass(path.class_name);
    if (!decl) {
        Explain(u"no class " + path.class_name + u" in namespace " + target->Name(), text);
        return WBEM_E_NOT_FOUND;
    }
    std::vector<PathKey> keys;
    if (!path.is_class && !MatchPathKeys(path, *decl, keys)) {
        Explain(u"the path does not give the keys of " + std::u16string(decl->name), text);
        return WBEM_E_INVALID_OBJECT_PATH;
    }
    out.source = std::move(target);
    out.decl = decl;
    out.query = std::make_shared<const wql::Query>(std::move(query));
    out.text = std::move(text);
    return WBEM_S_NO_ERROR;
}

// Selects already parsed and bound, by their text: a host asks the same few queries again and
// again, and a bound query is never changed, so one can serve every run of its text. An
// entry holds a class registered in this module only: such a class lives as long as the
// module (and this table), so a source that finds the entry's class name to be that very
// object means that class. A class a source makes for itself could be freed and another made
// at its address; those queries are prepared every time. Safe from any thread.
class PreparedSelects {
  public:
    // The kept query of `text`, when `source` still finds its class; the class in `decl`.
    std::shared_ptr<const wql::Query> Find(const std::u16string& text,
                                           const NamespaceSource& source, const ClassDecl*& decl) {
        std::shared_ptr<const wql::Query> query;
        {
            std::lock_guard guard(mutex_);
            const auto found = kept_.find(text);
            if (found == kept_.end())
                return nullptr;
            query = found->second.query;
            decl = found->second.decl;
        }
        return source.FindClass(query->class_name) == decl ? query : nullptr;
    }

    void Keep(const std::u16string& text, const PreparedQuery& prepared) {
        if (text.size() > kMaxKeptText || !prepared.decl ||
            kvwmi::FindClass(prepared.decl->ns, prepared.decl->name) != prepared.decl)
            return;
        std::lock_guard guard(mutex_);
        if (kept_.size() >= kMaxKept)
            kept_.clear();
        kept_.insert_or_assign(text, Entry{prepared.query, prepared.decl});
    }

  private:
    // What the table holds stays small whatever the texts: a long text is prepared each time.
    static constexpr size_t kMaxKept = 64;
    static constexpr size_t kMaxKeptText = 4096;
    struct Entry {
        std::shared_ptr<const wql::Query> query;
        const ClassDecl* decl;
    };
    std::mutex mutex_;
    std::unordered_map<std::u16string, Entry> kept_;
};

PreparedSelects& KeptSelects() {
    // Destroyed with the module: the module can be unloaded and loaded again, and a table
    // left behind would hold its queries for good. No query runs then (the module unloads
    // only when none does, and its delivery threads end first).
    static PreparedSelects kept;
    return kept;
}

}  // namespace

HRESULT PrepareQuery(const BSTR language, const BSTR text,
                     const std::shared_ptr<const NamespaceSource>& source, PreparedQuery& out) {
    if (!text || !language)
        return WBEM_E_INVALID_PARAMETER;
    if (!kvwin::EqualsAsciiNoCase(std::u16string_view(language), u"WQL"))
        return WBEM_E_INVALID_QUERY_TYPE;
    std::u16string query_text(text, SysStringLen(text));
    const ClassDecl* kept_decl = nullptr;
    if (auto kept = KeptSelects().Find(query_text, *source, kept_decl)) {
        out.source = source;
        out.decl = kept_decl;
        out.query = std::move(kept);
        out.text = std::move(query_text);
        return WBEM_S_NO_ERROR;
    }
    wql::Query query;
    wql::ParseError error;
    if (!wql::Parse(query_text, query, error)) {
        Explain(u"invalid query at offset " +
                    kvwin::FromUtf8(std::to_string(error.offset) + ": " + error.message),
                query_text);
        return WBEM_E_INVALID_QUERY;
    }
    if (query.kind != wql::QueryKind::Select)
        return FinishAssociation(std::move(query), source, std::move(query_text), out);
    const HRESULT hr = Finish(std::move(query), source, std::move(query_text), out);
    if (SUCCEEDED(hr))
        KeptSelects().Keep(out.text, out);
    return hr;
}

HRESULT PreparePathQuery(const ObjectPath& path,
                         const std::shared_ptr<const NamespaceSource>& source,
                         const ClassDecl& decl, bool keys_only, PreparedQuery& out) {
    std::vector<PathKey> keys;
    if (!MatchPathKeys(path, decl, keys))
        return WBEM_E_INVALID_OBJECT_PATH;
    wql::Query query;
    query.select_all = !keys_only;
    query.class_name = decl.name;
    std::vector<wql::ConditionPtr> conditions;
    for (PathKey& key : keys) {
        if (decl.properties[static_cast<size_t>(key.property)].type == CIM_REFERENCE &&
            key.value.kind == wql::Literal::Kind::String) {
            out.references.emplace_back(key.property, std::move(key.value.text));
            continue;
        }
        auto comparison = std::make_unique<wql::Condition>();
        comparison->node = wql::Comparison{
            {std::u16string(decl.properties[static_cast<size_t>(key.property)].name), -1,
             CIM_EMPTY},
            wql::CompareOp::Equal,
            std::move(key.value)};
        conditions.push_back(std::move(comparison));
    }
    if (conditions.size() == 1) {
        query.where = std::move(conditions.front());
    } else if (conditions.size() > 1) {
        query.where = std::make_unique<wql::Condition>();
        query.where->node = wql::Junction{true, std::move(conditions)};
    }
    if (FAILED(wql::Bind(query, decl)))
        return WBEM_E_INVALID_OBJECT_PATH;
    out.source = source;
    out.decl = &decl;
    out.query = std::make_shared<const wql::Query>(std::move(query));
    out.text = std::u16string(decl.name);
    return WBEM_S_NO_ERROR;
}

bool RowMatches(const PreparedQuery& prepared, const Instance& values) {
    if (prepared.query->where && !wql::Matches(*prepared.query->where, values))
        return false;
    for (const auto& [index, reference] : prepared.references) {
        const auto* text = static_cast<size_t>(index) < values.size()
                               ? std::get_if<std::u16string>(&values[static_cast<size_t>(index)])
                               : nullptr;
        if (!text || !SameReference(*text, reference))
            return false;
    }
    return true;
}

HRESULT PrepareClassQuery(const BSTR class_name,
                          const std::shared_ptr<const NamespaceSource>& source,
                          PreparedQuery& out) {
    if (!class_name)
        return WBEM_E_INVALID_PARAMETER;
    wql::Query query;
    query.select_all = true;
    query.class_name.assign(class_name, SysStringLen(class_name));
    std::u16string text = u"SELECT * FROM " + query.class_name;
    return Finish(std::move(query), source, std::move(text), out);
}

StatusFields ServiceStatus(HRESULT result, const std::u16string& description,
                           const PreparedQuery& prepared) {
    StatusFields fields;
    fields.description = description;
    fields.operation = u"ExecQuery";
    fields.parameter_info = prepared.text;
    fields.provider_name = u"kavrel-wmi";
    fields.status_code = static_cast<int32_t>(result);
    return fields;
}

QueryResult RunQuery(const PreparedQuery& prepared) {
    if (prepared.query->kind != wql::QueryKind::Select) {
        try {
            return AssociationRun(prepared).Run();
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& failure) {
            return ProviderFailure(failure, prepared);
        }
    }
    QueryResult result;
    ClassContent content;
    try {
        content = FetchRows(prepared, NeededProperties(prepared));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& failure) {
        return ProviderFailure(failure, prepared);
    }
    result.plan = content.plan;
    result.status = std::move(content.status);

    const wql::Query& query = *prepared.query;
    std::vector<bool> selected;
    if (!query.select_all) {
        selected.assign(prepared.decl->properties.size(), false);
        for (const wql::PropertyRef& ref : query.select) {
            if (ref.index >= 0)
                selected[static_cast<size_t>(ref.index)] = true;
        }
    }
    std::u16string server = LocalServerName();
    for (SourceRow& row : content.rows) {
        if (!RowMatches(prepared, row.values))
            continue;
        result.objects.push_back(
            MakeObject(prepared.source, *prepared.decl, std::move(row), selected, server));
    }
    return result;
}

}  // namespace kvwmi
