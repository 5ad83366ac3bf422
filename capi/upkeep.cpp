// The C interface's upkeep: verifying and repairing a repository, copying
// items between repositories and syncing one with another.
#include <deque>

#include "capi/handles.h"
#include "capi/text.h"

using kvc::Call;
using kvc::ClearOut;
using kvc::FromUtf8;
using kvc::TextUse;

struct kvrepo_report {
    // Texts first, never moved once added, then the entries that point at them.
    std::deque<std::string> texts;
    std::vector<kvrepo_report_entry> entries;

    const char* Keep(std::string text) {
        texts.push_back(std::move(text));
        return texts.back().c_str();
    }
    void Add(const char* kind, const _stringx& type, const _stringx& subject,
             const _stringx& detail, bool problem) {
        entries.push_back({Keep(kind), Keep(kvc::ToUtf8(type)), Keep(kvc::ToUtf8(subject)),
                           Keep(kvc::ToUtf8(detail)), problem ? 1 : 0});
    }
};

struct kvrepo_copy {
    std::deque<std::string> texts;
    kvrepo_copy_result result{};
};

struct kvrepo_sync {
    std::shared_ptr<kvc::RepositoryState> source, destination;
    std::unique_ptr<CRepositorySync> sync;
    std::vector<CRepositorySync::Entry> plan;
    bool applied = false;
    std::deque<std::string> texts;
    std::vector<kvrepo_sync_entry> entries;

    const char* Keep(std::string text) {
        texts.push_back(std::move(text));
        return texts.back().c_str();
    }
    const char* Keep(const _stringx& text) { return Keep(kvc::ToUtf8(text)); }
    const char* Keep(const char* text) { return Keep(std::string(text)); }
    // The entries as the plan now stands.
    void Refresh();
};

namespace {

const char* Action(const CRepositorySync::Entry& entry, bool applied) {
    if (!entry.problem.empty())
        return "refused";
    const bool differs = entry.reason == CRepositorySync::Reason::kDiffers;
    if (!applied)
        return differs ? "would-replace" : "would-copy";
    if (entry.status == 0)
        return entry.copied.replaced ? "replaced" : "copied";
    if (entry.status == kv::status::kFileOverwriteDeclined ||
        entry.status == kv::status::kFolderOverwriteDeclined)
        return "declined";
    return "failed";
}

int CopyResult(long status, const CRepositoryItemCopier::Copied& copied,
               kvrepo_repository* destination, kvrepo_copy** out) {
    if (status != 0) {
        if (!copied.problem.empty())
            kvc::Report(kvc::SinkOf(destination), kvc::ToUtf8(copied.problem));
        return static_cast<int>(status);
    }
    std::unique_ptr<kvrepo_copy> copy(new kvrepo_copy);
    const auto keep = [&](const _stringx& text) {
        copy->texts.push_back(kvc::ToUtf8(text));
        return copy->texts.back().c_str();
    };
    copy->result = {keep(copied.type),        keep(copied.fileName),   keep(copied.sourceFile),
                    keep(copied.displayPath), keep(copied.targetFile), copied.replaced ? 1 : 0};
    *out = copy.release();
    return KVREPO_OK;
}

}  // namespace

void kvrepo_sync::Refresh() {
    texts.clear();
    entries.clear();
    for (const CRepositorySync::Entry& entry : plan) {
        const _stringx& problem = entry.problem.empty() ? entry.copied.problem : entry.problem;
        entries.push_back(
            {Keep(CRepositorySync::GetReasonName(entry.reason)), Keep(entry.type),
             Keep(entry.fileName), Keep(entry.displayPath), Keep(entry.sourceFile),
             Keep(entry.destinationFile), Keep(Action(entry, applied)),
             static_cast<int>(applied ? entry.status : 0),
             Keep(applied && entry.status == 0 ? entry.copied.targetFile : _stringx()),
             Keep(applied && problem.empty() && entry.status != 0
                      ? kv::status::Describe(entry.status)
                      : kvc::ToUtf8(problem))});
    }
}

extern "C" {

size_t kvrepo_report_count(const kvrepo_report* report) {
    return report ? report->entries.size() : 0;
}

const kvrepo_report_entry* kvrepo_report_at(const kvrepo_report* report, size_t index) {
    return report && index < report->entries.size() ? &report->entries[index] : nullptr;
}

void kvrepo_report_free(kvrepo_report* report) {
    delete report;
}

int kvrepo_repository_verify(kvrepo_repository* repository, kvrepo_report** out) {
    return Call([&] {
        if (const int status = ClearOut(out, repository))
            return status;
        std::vector<CRepositoryVerifier::Finding> findings;
        if (const long status =
                CRepositoryVerifier(&repository->state->repository).Verify(findings))
            return static_cast<int>(status);
        std::unique_ptr<kvrepo_report> report(new kvrepo_report);
        for (const auto& finding : findings)
            report->Add(CRepositoryVerifier::GetKindName(finding.kind), finding.type,
                        finding.subject, finding.detail,
                        CRepositoryVerifier::IsProblem(finding.kind));
        *out = report.release();
        return KVREPO_OK;
    });
}

int kvrepo_manager_verify_list(kvrepo_manager* manager, const char* key, kvrepo_report** out) {
    return Call([&] {
        if (const int status = ClearOut(out, manager))
            return status;
        _stringx wide;
        if (const int status = FromUtf8(key, TextUse::kPlain, wide, true))
            return status;
        std::vector<CRepositoryVerifier::Finding> findings;
        if (const long status = CRepositoryVerifier::VerifyList(
                manager->state->manager.get(), wide.empty() ? nullptr : wide.narrow(), findings))
            return static_cast<int>(status);
        std::unique_ptr<kvrepo_report> report(new kvrepo_report);
        for (const auto& finding : findings)
            report->Add(CRepositoryVerifier::GetKindName(finding.kind), finding.type,
                        finding.subject, finding.detail, true);
        *out = report.release();
        return KVREPO_OK;
    });
}

int kvrepo_repository_repair(kvrepo_repository* repository, const kvrepo_repair_options* options,
                             kvrepo_report** out) {
    return Call([&] {
        if (const int status = ClearOut(out, repository))
            return status;
        CRepositoryRepairer::Options chosen;
        if (options) {
            if (options->version != KVREPO_REPAIR_OPTIONS_VERSION)
                return KVREPO_E_BAD_VERSION;
            chosen.pruneMissing = options->prune_missing != 0;
            chosen.dryRun = options->dry_run != 0;
        }
        std::vector<CRepositoryRepairer::Change> changes;
        if (const long status =
                CRepositoryRepairer(&repository->state->repository).Repair(chosen, changes))
            return static_cast<int>(status);
        std::unique_ptr<kvrepo_report> report(new kvrepo_report);
        for (const auto& change : changes)
            report->Add(CRepositoryRepairer::GetKindName(change.kind), change.type, change.subject,
                        change.detail, change.kind != CRepositoryRepairer::ChangeKind::kLeftAlone);
        *out = report.release();
        return KVREPO_OK;
    });
}

int kvrepo_copy_path(kvrepo_repository* source, const char* item_path,
                     kvrepo_repository* destination, kvrepo_copy** out) {
    return Call([&] {
        if (const int status = ClearOut(out))
            return status;
        if (!source || !destination)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx path;
        if (const int status = FromUtf8(item_path, TextUse::kNarrowed, path))
            return status;
        CRepositoryItemCopier::Copied copied;
        const long status =
            CRepositoryItemCopier(&source->state->repository, &destination->state->repository)
                .Copy(path.narrow(), &copied);
        return CopyResult(status, copied, destination, out);
    });
}

int kvrepo_copy_item(kvrepo_item* item, kvrepo_repository* destination, kvrepo_copy** out) {
    return Call([&] {
        if (const int status = ClearOut(out))
            return status;
        if (!item || !destination)
            return KVREPO_E_NULL_ARGUMENT;
        CRepositoryItemCopier::Copied copied;
        const long status =
            CRepositoryItemCopier(&item->repository->repository, &destination->state->repository)
                .Copy(*item->item, &copied);
        return CopyResult(status, copied, destination, out);
    });
}

const kvrepo_copy_result* kvrepo_copy_result_of(const kvrepo_copy* copy) {
    return copy ? &copy->result : nullptr;
}

void kvrepo_copy_free(kvrepo_copy* copy) {
    delete copy;
}

int kvrepo_sync_plan(kvrepo_repository* source, kvrepo_repository* destination, const char* type,
                     int update, kvrepo_sync** out) {
    return Call([&] {
        if (const int status = ClearOut(out))
            return status;
        if (!source || !destination)
            return KVREPO_E_NULL_ARGUMENT;
        _stringx wide;
        if (const int status = FromUtf8(type, TextUse::kPlain, wide, true))
            return status;
        std::unique_ptr<kvrepo_sync> sync(new kvrepo_sync);
        sync->source = source->state;
        sync->destination = destination->state;
        sync->sync.reset(
            new CRepositorySync(&sync->source->repository, &sync->destination->repository));
        if (const long status = sync->sync->Plan(wide, update != 0, sync->plan))
            return static_cast<int>(status);
        sync->Refresh();
        *out = sync.release();
        return KVREPO_OK;
    });
}

size_t kvrepo_sync_count(const kvrepo_sync* sync) {
    return sync ? sync->entries.size() : 0;
}

const kvrepo_sync_entry* kvrepo_sync_at(const kvrepo_sync* sync, size_t index) {
    return sync && index < sync->entries.size() ? &sync->entries[index] : nullptr;
}

int kvrepo_sync_apply(kvrepo_sync* sync) {
    return Call([&] {
        if (!sync)
            return KVREPO_E_NULL_ARGUMENT;
        if (sync->applied)
            return KVREPO_OK;
        const long status = sync->sync->Apply(sync->plan);
        sync->applied = true;
        sync->Refresh();
        for (const kvrepo_sync_entry& entry : sync->entries)
            if (entry.status != 0)
                kvc::Report(
                    &sync->destination->manager->sink,
                    std::string("cannot copy ") + entry.display_path + ": " + entry.problem);
        return static_cast<int>(status);
    });
}

void kvrepo_sync_free(kvrepo_sync* sync) {
    delete sync;
}

}  // extern "C"
